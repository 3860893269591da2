#include "zuzazer/FXThread.h"

#include <exception>
#include <utility>

FXThread::FXThread(std::function<void()> body) {
  boost::shared_ptr<CLogWriterInterface> writer = yq::CurrentLogWriter();
  m_thread = std::thread([writer = std::move(writer), body = std::move(body)]() mutable {
    const yq::ThreadLogWriter scope(std::move(writer));
    yq::LogLine(5, "FXThread", "Thread started");
    try {
      body();
    } catch (const std::exception& e) {
      yq::LogLine(-1, "FXThread", "Thread body failed: %s", e.what());
    } catch (...) {
      yq::LogLine(-1, "FXThread", "Thread body failed with an unknown exception");
    }
    yq::LogLine(5, "FXThread", "Thread ending");
  });
}

FXThread::~FXThread() {
  if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
    m_thread.detach();  // destroyed by its own body: it ends on its own
    return;
  }
  Join();
}

void FXThread::Join() {
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}
