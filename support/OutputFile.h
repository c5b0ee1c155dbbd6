// Outputs written under a hidden temporary name in their own folder and put in place by a
// rename only once complete, so a failed, interrupted or concurrent conversion never leaves a
// partial file (or writes through a link) under the output's name.
#pragma once

#include <string>

namespace sonvex {

class LPendingOutput {
public:
    enum class Commit { Done, Exists, Failed };

    LPendingOutput() = default;
    ~LPendingOutput() { Discard(); }
    LPendingOutput(const LPendingOutput&) = delete;
    LPendingOutput& operator=(const LPendingOutput&) = delete;

    // Creates an empty, unique temporary file beside finalPath, ending with finalPath's
    // extension (encoders choose their container by it), and holds a shared lock on it while
    // this object lives. False (errno kept) when it cannot be created.
    bool Create(const std::string& finalPath);
    const std::string& TempPath() const { return szTemp_; }
    const std::string& FinalPath() const { return szFinal_; }
    // Size of the temporary file now; -1 when it is gone.
    long long TempSize() const;

    // Renames the temporary file to the final name. Without bReplace an existing final name
    // (a file, a link, anything) is left alone and Exists returned; with it the name is
    // replaced, a link itself rather than its target. Failed keeps errno.
    Commit Put(bool bReplace);
    // Removes the empty placeholder but keeps the name reserved (it carries our process id),
    // for a program that refuses to write over an existing file.
    void ReleaseName();
    // Removes the temporary file (nothing when already put in place).
    void Discard();

    // The prefix of every temporary output name; names are "<prefix><pid>-<n><ext>".
    static constexpr const char* kPrefix = ".sonvex-part-";

private:
    std::string szFinal_;
    std::string szTemp_;
    int fd_ = -1;
};

// Removes temporary outputs of a killed run from folder: names of our pattern whose process
// no longer exists and that no one holds open. Returns how many were removed.
int RemoveStaleOutputs(const std::string& folder);

}  // namespace sonvex
