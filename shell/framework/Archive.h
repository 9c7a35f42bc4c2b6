#pragma once

// What a document reads its data from when the framework opens a file for it. The
// framework opens no file itself, and no document of this program keeps data, so the
// archive carries nothing; it is the argument Serialize is called with.
class CArchive {};
