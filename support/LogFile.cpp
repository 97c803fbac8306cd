#include "support/LogFile.h"
