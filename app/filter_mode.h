// Filter mode: the mail server's content filter. Each queued message that
// holds winmail.dat attachments is converted into a new file in the Submitted
// queue and the received one is discarded; every other message passes
// unchanged. With several workers, messages are converted several at once;
// each conversion keeps to its own scratch directory and queue file.
#ifndef APP_FILTER_MODE_H_
#define APP_FILTER_MODE_H_

#include "app/conversion.h"
#include "cgp/ext_filter.h"
#include "cgp/queue_writer.h"

class FilterMode : public cgp::ExtFilter {
 public:
  FilterMode(const ConversionSetup& setup, cgp::QueueWriter& queue)
      : cgp::ExtFilter(setup.settings.workers), setup_(setup), queue_(queue) {}

 protected:
  // Discards the message only when its converted form has been released into
  // the queue; in every other case it passes, with the reason logged.
  cgp::Verdict FilterMessage(const orv::string& path) override;

 private:
  cgp::Verdict Convert(const orv::string& path);
  cgp::Verdict Submit(cgp::QueueFile& file);

  const ConversionSetup& setup_;
  cgp::QueueWriter& queue_;
};

#endif  // APP_FILTER_MODE_H_
