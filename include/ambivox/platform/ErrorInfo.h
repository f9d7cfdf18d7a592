// The flat path clients have included since the first release; the header lives in its folder.
#pragma once

#include "platform/automation/ErrorInfo.h"
