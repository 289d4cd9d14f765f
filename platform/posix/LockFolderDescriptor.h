#pragma once

// The user's lock folder as it was checked, held open for the process's
// life; -1 where there is none (LockFolderProblem says why). The locks and
// the private files are opened relative to it.
int LockFolderDescriptor();
