#include "naming/FileNameScheme.h"
