// A host name that carries, in one string, the client name, two port
// numbers and one further word, so that it can travel wherever a plain host
// name is expected: "host*client*port1*port2*extra", with unset trailing
// fields left out ("hostA", "hostA*c1*8400*8402", "hostA**0*0*x").
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

// A null text counts as empty; a field is set when its text is not empty or
// its number is not 0.
ZN_EXPORT std::string MangleHostName(const char* hostName, const char* clientName, int port1, int port2,
                                     const char* extra);
ZN_EXPORT std::string MangleHostName(const char* hostName, const char* clientName, int port1, int port2);

// Splits at '*' into at most five fields (a sixth and later are ignored); a
// missing field is empty, a port that is empty or not a number is 0, and a
// number followed by other text is the number. Each output is written only
// when given. Never fails.
ZN_EXPORT void DemangleHostName(const char* mangled, std::string* hostName, std::string* clientName, int* port1,
                                int* port2, std::string* extra);
ZN_EXPORT void DemangleHostName(const char* mangled, std::string* hostName, std::string* clientName, int* port1,
                                int* port2);

ZN_EXPORT std::string GetHostNameFromMangledHostName(const char* mangled);
ZN_EXPORT std::string GetClientNameFromMangledHostName(const char* mangled);
