#include "ui/Widgets.h"

// The small widget classes are header-only; this file gives moc a place for them.
