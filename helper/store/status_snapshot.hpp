#pragma once

namespace nubrik {

// What one transaction knows of the public status file: whether it may publish at all, and
// whether the file on disk is final (published after the state's last change), which is what
// lets the transaction finish its generation. Kept by the transaction; the store reports to it.
class StatusSnapshot {
 public:
  // A transaction that could not mark its change as under way may not publish: readers could not
  // tell its status from a torn one.
  static StatusSnapshot withheld() { return StatusSnapshot(false, false); }
  // final: the status file was final when the transaction began.
  static StatusSnapshot publishable(bool final) { return StatusSnapshot(true, final); }

  bool mayPublish() const { return mayPublish_; }
  bool isFinal() const { return final_; }
  void stateChanged() { final_ = false; }
  void statusPublished() { final_ = true; }

 private:
  StatusSnapshot(bool mayPublish, bool final) : mayPublish_(mayPublish), final_(final) {}

  bool mayPublish_;
  bool final_;
};

}  // namespace nubrik
