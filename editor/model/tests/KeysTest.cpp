#include "TestModel.h"
