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
        // Engine objects made so far that have gone to their error state.
        int brokenUpTo = 0;
        // Slices the listing of the voices takes in each engine object.
        int listingSlices = 0;
        int slicesListed = 0;
    };
    Engine speechd{true, {"Alice", "Bob"}, {}};
    Engine flite{true, {"kal", "slt"}, {}};

    Engine& byName(const QString& name) { return name == "speechd" ? speechd : flite; }

    SpeechEngineFactory factory() {
        return [this](const QString& name) -> std::unique_ptr<SpeechEngine> {
            Engine& e = byName(name);
            ++e.created;
            return std::make_unique<Fake>(e, e.created);
        };
    }

    class Fake : public SpeechEngine {
      public:
        Fake(Engine& e, int serial) : e_(e), serial_(serial) {}
        bool available() const override { return e_.available && serial_ > e_.brokenUpTo; }
        QStringList voices() const override { return e_.voices; }
        bool speak(const Utterance& u) override {
            e_.spoken.push_back(u);
            e_.busy = true;
            return true;
        }
        bool finished() const override { return !e_.busy || !available(); }
        bool voicesListed() const override { return listed_ >= e_.listingSlices; }
        void listSomeVoices() override {
            ++listed_;
            ++e_.slicesListed;
        }
        void stop() override {
            ++e_.stops;
            e_.busy = false;
        }

      private:
        Engine& e_;
        int serial_;
        int listed_ = 0;
    };
};

}  // namespace qv::test
