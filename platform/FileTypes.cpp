#include "platform/FileTypes.h"
