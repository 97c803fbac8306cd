#include "platform/SoundPlayer.h"
