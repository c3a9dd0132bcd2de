#include "otp_engine.h"
