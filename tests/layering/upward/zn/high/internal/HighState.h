// Internal to the upper module.
#pragma once
