// What a search on a thread of its own needs of the window's thread: the modifier keys as last
// sampled there, and a progress label the search sets from its thread.
#pragma once

#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "optimiser/host.h"
#include "platform/qt_host.h"

namespace zarvel::app {

// The modifier keys as the window's thread last saw them, for the search on its own thread;
// a stop asked for (closing the window) reads as Shift held.
class SampledKeys final : public optimiser::KeyState {
 public:
  void Sample(const optimiser::KeyState& from) {
    shift_ = from.IsKeyDown(optimiser::kKeyShift);
    alt_ = from.IsKeyDown(optimiser::kKeyAlt);
    control_ = from.IsKeyDown(optimiser::kKeyControl);
  }
  void Stop() { stop_ = true; }
  bool IsKeyDown(int key) const override {
    if (key == optimiser::kKeyShift) return shift_ || stop_;
    if (key == optimiser::kKeyAlt) return alt_;
    return key == optimiser::kKeyControl && control_;
  }

 private:
  std::atomic<bool> shift_{false}, alt_{false}, control_{false}, stop_{false};
};

// The search's progress, set on its thread and shown by the window's: the newest text wins.
class PostedProgress final : public optimiser::ProgressLabel {
 public:
  explicit PostedProgress(QLabel* label) : state_(std::make_shared<State>()), label_(label) {}
  void SetProgressText(const std::string& text) override {
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->text = text;
      state_->fresh = true;
      if (state_->posted) return;
      state_->posted = true;
    }
    QPointer<QLabel> label(label_);
    QMetaObject::invokeMethod(
        label_, [state = state_, label] { Show(*state, label); }, Qt::QueuedConnection);
  }
  // The last text at once (after the run).
  void Flush() { Show(*state_, label_); }

 private:
  struct State {
    std::mutex mutex;
    std::string text;
    bool fresh = false;
    bool posted = false;
  };
  static void Show(State& state, QLabel* label) {
    std::string text;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.posted = false;
      if (!state.fresh) return;
      state.fresh = false;
      text = state.text;
    }
    if (label != nullptr) platform::LabelProgress(label).SetProgressText(text);
  }
  std::shared_ptr<State> state_;
  QLabel* label_;
};

}  // namespace zarvel::app
