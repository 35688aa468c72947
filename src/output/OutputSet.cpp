#include "output/OutputSet.h"

#include <algorithm>

namespace fixcaster {

OutputSet::OutputSet(Poster* poster, ProblemHandler onProblem, OutputOptions options)
    : poster_(poster), onProblem_(std::move(onProblem)), options_(std::move(options)) {}

OutputSet::~OutputSet() {
  Clear();
}

OutputSet::Added OutputSet::Add(std::string_view specText) {
  Added added;
  OutputSpecResult parsed = ParseOutputSpec(specText);
  if (!parsed.spec) {
    added.problem = parsed.problem;
    return added;
  }
  const int id = nextId_++;
  const std::string spec = parsed.spec->text;
  std::weak_ptr<char> alive = alive_;
  OutputReporter reporter = [this, alive, id, spec](const OutputProblem& problem) {
    if (!poster_) {
      if (onProblem_) onProblem_(id, spec, problem);
      return;
    }
    poster_->Post([this, alive, id, spec, problem] {
      if (alive.lock()) Deliver(id, spec, problem);
    });
  };
  std::unique_ptr<ExtraOutput> output = MakeExtraOutput(*parsed.spec, reporter, options_);
  if (!output) {
    added.problem =
        OutputProblem{OutputProblemId::KindNotAvailable, OutputKindName(parsed.spec->kind), ""};
    return added;
  }
  outputs_.push_back({id, std::move(output)});
  outputs_.back().output->Open();
  added.id = id;
  return added;
}

bool OutputSet::Remove(int id) {
  auto it =
      std::find_if(outputs_.begin(), outputs_.end(), [id](const Item& i) { return i.id == id; });
  if (it == outputs_.end()) return false;
  std::unique_ptr<ExtraOutput> output = std::move(it->output);
  outputs_.erase(it);
  output->Close();
  return true;
}

void OutputSet::Clear() {
  std::vector<Item> outputs;
  outputs.swap(outputs_);
  for (Item& item : outputs) item.output->Close();
}

void OutputSet::SendTick(std::string_view tick) {
  for (Item& item : outputs_) item.output->SendTick(tick);
}

std::vector<OutputSet::Entry> OutputSet::Status() const {
  std::vector<Entry> out;
  out.reserve(outputs_.size());
  for (const Item& item : outputs_) out.push_back({item.id, item.output->Status()});
  return out;
}

bool OutputSet::AnyOpen() const {
  return std::any_of(outputs_.begin(), outputs_.end(), [](const Item& item) {
    OutputState s = item.output->Status().state;
    return s == OutputState::Open || s == OutputState::Connecting;
  });
}

void OutputSet::Deliver(int id, const std::string& spec, const OutputProblem& problem) {
  if (onProblem_ && Contains(id)) onProblem_(id, spec, problem);
}

bool OutputSet::Contains(int id) const {
  return std::any_of(outputs_.begin(), outputs_.end(), [id](const Item& i) { return i.id == id; });
}

}  // namespace fixcaster
