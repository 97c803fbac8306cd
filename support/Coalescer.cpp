#include "support/Coalescer.h"
