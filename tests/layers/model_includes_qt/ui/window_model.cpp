// The toolkit-neutral window model reaching into a front end: the layer check must refuse it.
#include "ui/window_model.h"
#include "ui/qt/window.h"
