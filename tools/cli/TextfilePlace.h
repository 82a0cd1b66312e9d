#pragma once
#include <string>

namespace zp {

// Where the Prometheus textfile of a run goes. A scheduled check whose collector is not
// installed (no such folder) must still test, record and keep its metrics somewhere an
// operator finds them, rather than end as a usage error every few minutes unseen.
struct TextfilePlace {
  std::string path;     // the file to replace; empty when there is none
  std::string note;     // why it is not the path given, for the operator; empty when it is
  std::string problem;  // why no file can be written, as a usage error; empty when one can
};

// `given` when it can be replaced (see ReplaceProblem) in a folder no other user may change
// (see FolderProblem, whose problem it is otherwise); when only its folder is missing,
// the same file name in `fallback_folder`, if that is given and the file can be replaced
// there; otherwise the problem of `given`. Paths are UTF-8.
TextfilePlace ChooseTextfile(const std::string& given, const std::string& fallback_folder);

// --prometheus-textfile, checked before the run: ChooseTextfile's problem with the
// system's fallback folder (see TextfileFallbackFolder).
std::string CheckTextfileOption(const std::string& given);

}  // namespace zp
