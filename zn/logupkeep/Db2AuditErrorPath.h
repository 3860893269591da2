// Pruning of the database agent's media-offset files: files of the folder
// "sDB2_AUDIT_ERROR_PATH" (section "Db2Agent") not read for
// "nDB2PruneMediaOffsetFileAfterDays" days are deleted. Runs with the log
// folder pruning; does nothing unless both values are set.
#pragma once

#include "zn/base/ZnExport.h"
#include "zuzazer/CYqError.h"

// Returns the first failure (a folder that cannot be listed, a file that
// cannot be deleted); each is logged and the others still go on.
ZN_EXPORT CYqError CheckAndPruneDb2AuditErrorPath();
