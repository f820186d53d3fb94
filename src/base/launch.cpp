#include "base/launch.h"

LaunchSettings launch;
