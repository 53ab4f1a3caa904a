#include "tools/datagen.h"
