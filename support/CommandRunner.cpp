#include "support/CommandRunner.h"
