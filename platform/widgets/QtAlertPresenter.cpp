#include "platform/widgets/QtAlertPresenter.h"
