#include "zn/sync/ZNCritSect.h"

ZNCritSect::~ZNCritSect() = default;
