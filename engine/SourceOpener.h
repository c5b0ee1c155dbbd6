// Turning an input path into a source: readers of our own by extension, every other format
// decoded into a temporary WAV file by a decoder job.
#pragma once

#include <string>

#include "audio/SoundSource.h"
#include "engine/UiContext.h"
#include "support/File.h"

namespace sonvex {

// LPROCESS_OK with the reference holding the open source; LPROCESS_STOPPED when a settings
// prompt or a decoder job was cancelled; LPROCESS_FAILED (or the job's code) otherwise.
// pTempPath, when given, receives the temporary WAV a decoder job wrote (empty otherwise).
int LGenSourceOpen(LSoundSourceRef& source, const std::string& path, const LUiContext& context,
                   std::string* pTempPath = nullptr);

// The extension rule of the opener: from the last "." of the name, unless that "." begins the
// path; empty otherwise.
std::string SourceExtension(const std::string& path);

// The folder of the decoders' temporary WAVs: "sonvex-<uid>" in the temporary folder, private
// to the user, so that the clearing of old temporary files never meets a file of the user's
// (an output converted into the temporary folder, say). Empty when it cannot be made safely.
std::string TempWavFolder();

// Finds the lowest free "Temp<n>.wav" in TempWavFolder() and holds its lock file. False when
// there is no such folder or no name fits in a path.
bool AllocateTempWav(LLockFile& lock, std::string& path);

}  // namespace sonvex
