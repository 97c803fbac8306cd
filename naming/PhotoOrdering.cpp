#include "naming/PhotoOrdering.h"
