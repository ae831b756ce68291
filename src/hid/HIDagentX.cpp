#include "HIDagentX.h"

// The interface is abstract; this unit anchors its meta-object.
