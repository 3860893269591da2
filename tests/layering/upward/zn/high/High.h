// A public header of the upper module: fine to include from above.
#pragma once
