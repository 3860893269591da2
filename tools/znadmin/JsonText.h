// JSON output of znadmin: strings quoted and escaped as RFC 8259 wants.
#pragma once

#include <string>
#include <string_view>

namespace zn::admin {

std::string JsonString(std::string_view text);

}  // namespace zn::admin
