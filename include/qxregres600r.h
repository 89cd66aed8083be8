// The whole public API of qxregres600r and of its companion layer qxcommon600r.
#pragma once

// Companion layer: status, records, iterators, callbacks, display.
#include "common/QXCallbacks.h"
#include "common/QXDisplay.h"
#include "common/QXExport.h"
#include "common/QXMissingValue.h"
#include "common/QXStatus.h"
#include "common/Record.h"
#include "common/RecordIterator.h"
