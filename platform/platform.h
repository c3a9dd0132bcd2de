// The dialog framework in one include.
#pragma once

#include "platform/data_exchange.h"
#include "platform/dialog.h"
#include "platform/dlginit.h"
#include "platform/file_dialog.h"
#include "platform/latin1_validator.h"
#include "platform/message_box.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/wait_cursor.h"
