#pragma once

#include "binding/Base64.h"  // the decoder lives with the blob conversion that needs it
