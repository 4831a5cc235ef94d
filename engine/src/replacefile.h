// Replacing a file on disk so that it is always the old file or the whole
// new one, also after a power cut: the new text goes into a temporary of
// the writer's own beside the file, flushed to disk, which is renamed over
// the file; then the folder is synced. Nothing here takes a lock: writers
// of one file take turns through one of their own.
#pragma once

#include <ctime>
#include <string>

namespace korvu {

// Thrown by replaceFile where target holds the new text but its folder
// could not be synced to disk, so that a power cut may yet undo it: the
// whole reason, naming target by its full path.
class NotSynced : public std::string {
 public:
  explicit NotSynced(const std::string& message) : std::string(message) {}
};

// Puts text in target's place: a new "<target>.<16 random hex digits>.tmp"
// (O_EXCL, never through a link, another name where one is taken), fsynced,
// is renamed over target (or to it), and the folder synced. Throws the
// reason alone, naming by full path the file whose step failed ("could not
// create "<temporary>": ...", "could not write ...", "could not rename
// "<temporary>" to "<target>": ...": target is as it was, the temporary
// gone), or NotSynced.
void replaceFile(const std::string& target, const std::string& text);

// Removes the temporaries of target that writers which died left: regular
// files named "<target>.<16 lowercase hex digits>.tmp", or ".live" with
// such digits, as an earlier version named its own. No other name is
// touched. Only those last changed before `before` go (0: all), so a
// caller that cannot keep other writers out spares those that may still be
// written.
void removeLeftTemporaries(const std::string& target, std::time_t before = 0);

// Flushes the folder that holds file to disk, so that a rename, link or
// unlink in it outlives a power cut. Gives 0, or the error where it cannot
// (the step it follows has taken place, but may not outlive a cut); a file
// system that cannot sync a folder (EINVAL) keeps its names some other way.
int syncFolder(const std::string& file);

}  // namespace korvu
