#pragma once
// Fake desktop services for tests that run on a private bus (CTest starts them
// under dbus-run-session with a configuration that activates no service).
// The fakes live on their own connection in their own thread, as the real
// services live in other processes: the program's D-Bus calls are
// synchronous. `Services` is a QObject with `bool start(const QString& address)`
// and `void stop()`; everything else is reached through invoke().

#include <QMetaObject>
#include <QThread>

namespace qv::test {

template <typename Services>
class FakeServicesThread {
  public:
    ~FakeServicesThread() { stop(); }

    // Starts the fakes on the bus at `address`; false when they could not
    // connect or register.
    bool start(const QByteArray& address) {
        services_ = new Services;
        services_->moveToThread(&thread_);
        thread_.start();
        return invoke([&] { return services_->start(QString::fromUtf8(address)); });
    }

    // Runs `f` in the fakes' thread and waits for its result.
    template <typename F>
    auto invoke(F f) {
        decltype(f()) result{};
        QMetaObject::invokeMethod(
            services_, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    Services* operator->() const { return services_; }

    void stop() {
        if (!services_) return;
        invoke([&] {
            services_->stop();
            return true;
        });
        QMetaObject::invokeMethod(services_, &QObject::deleteLater);
        services_ = nullptr;
        thread_.quit();
        thread_.wait();
    }

  private:
    QThread thread_;
    Services* services_ = nullptr;
};

}  // namespace qv::test
