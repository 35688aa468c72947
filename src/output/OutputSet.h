#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/CommX.h"
#include "output/ExtraOutput.h"

namespace fixcaster {

// The extra outputs of a run, beside the primary channel: opened from their specs,
// fed every tick in the order they were added, each with the same bytes, and
// closed. A failing output is reported once and closes without disturbing the
// others. Every call is made on the owner's thread.
class OutputSet {
 public:
  // Told of every problem of an output (once per occurrence): its id, its spec
  // text and the problem. Runs on the poster's thread, the owner's; with no poster
  // (a benchmark) on the output's own thread. Problems of an output already
  // removed are not delivered.
  using ProblemHandler =
      std::function<void(int id, const std::string& spec, const OutputProblem& problem)>;

  OutputSet(Poster* poster, ProblemHandler onProblem, OutputOptions options = {});
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  struct Added {
    int id = -1;  // -1: nothing was added
    // Why not: the spec does not parse, or its kind is not available. A failure
    // to open is not this: the output is added, reported and shows as failed.
    std::optional<OutputProblem> problem;
  };
  // Parses a spec and opens its output.
  Added Add(std::string_view specText);
  // Closes an output and forgets it; false for an unknown id.
  bool Remove(int id);
  // Closes and forgets every output.
  void Clear();

  // One tick's bytes to every output. Never blocks.
  void SendTick(std::string_view tick);

  struct Entry {
    int id = -1;
    OutputStatus status;
  };
  std::vector<Entry> Status() const;
  // An output is open or on its way (connecting, resolving).
  bool AnyOpen() const;
  size_t Size() const { return outputs_.size(); }

 private:
  struct Item {
    int id;
    std::unique_ptr<ExtraOutput> output;
  };
  void Deliver(int id, const std::string& spec, const OutputProblem& problem);
  bool Contains(int id) const;

  Poster* const poster_;
  const ProblemHandler onProblem_;
  const OutputOptions options_;
  std::vector<Item> outputs_;
  int nextId_ = 1;
  // Posted reports check it, so none runs into a set that no longer exists.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace fixcaster
