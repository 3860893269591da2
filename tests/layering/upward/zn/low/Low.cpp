// A module that reaches up: the layering check must refuse both includes.
#include "zn/high/High.h"
#include "zn/high/internal/HighState.h"
