#pragma once
// A speech engine that records what it is asked to say and finishes when told.

#include <memory>
#include <vector>

#include "presentation/clsvoices.h"

namespace qv::test {

struct FakeSpeechWorld {
    struct Engine {
        bool available = true;
        QStringList voices;
        std::vector<Utterance> spoken;
        bool busy = false;  // what was said is still being spoken
        int created = 0;
        int stops = 0;
    };
    Engine speechd{true, {"Alice", "Bob"}, {}};
    Engine flite{true, {"kal", "slt"}, {}};

    Engine& byName(const QString& name) { return name == "speechd" ? speechd : flite; }

    SpeechEngineFactory factory() {
        return [this](const QString& name) -> std::unique_ptr<SpeechEngine> {
            Engine& e = byName(name);
            ++e.created;
            return std::make_unique<Fake>(e);
        };
    }

    class Fake : public SpeechEngine {
      public:
        explicit Fake(Engine& e) : e_(e) {}
        bool available() const override { return e_.available; }
        QStringList voices() const override { return e_.voices; }
        bool speak(const Utterance& u) override {
            e_.spoken.push_back(u);
            e_.busy = true;
            return true;
        }
        bool finished() const override { return !e_.busy; }
        void stop() override {
            ++e_.stops;
            e_.busy = false;
        }

      private:
        Engine& e_;
    };
};

}  // namespace qv::test
