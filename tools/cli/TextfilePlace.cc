#include "cli/TextfilePlace.h"

#include "platform/AtomicFile.h"
#include "platform/PrivateFolder.h"
#include "platform/TextfileFallback.h"
#include "platform/Utf8Path.h"
#include "run/TraceLine.h"

namespace zp {

TextfilePlace ChooseTextfile(const std::string& given, const std::string& fallback_folder) {
  TextfilePlace place;
  if (given.empty()) {
    place.problem = "an empty path names no file";
    return place;
  }
  std::string problem = ReplaceProblem(given);
  if (problem.empty()) {
    // Whoever runs the probe, root included, replaces the file: not in a folder where
    // another user chooses what stands at the path.
    place.problem = EscapeControls(FolderProblemFor(given));
    if (place.problem.empty()) place.path = given;
    return place;
  }
  // Only a missing folder moves the file: anything else standing at the path given is
  // the operator's to mend, not to be passed over.
  if (!fallback_folder.empty() && !FolderOfExists(given) && Utf8Path(given).has_filename()) {
    const std::string moved = PathUtf8(Utf8Path(fallback_folder) / Utf8Path(given).filename());
    if (ReplaceProblem(moved).empty()) {
      if (const std::string unsafe = FolderProblemFor(moved); !unsafe.empty()) {
        place.problem = EscapeControls(unsafe);
        return place;
      }
      place.path = moved;
      place.note = "the metrics are in " + moved + " (" + problem + ")";
      return place;
    }
  }
  place.problem = EscapeControls(problem);
  return place;
}

std::string CheckTextfileOption(const std::string& given) {
  return ChooseTextfile(given, TextfileFallbackFolder()).problem;
}

}  // namespace zp
