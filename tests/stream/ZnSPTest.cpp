// Reference counting on one thread: when objects die, when the trigger
// fires, and the refusal of dead objects (run under AddressSanitizer: the
// refusal must come without reading the freed object).

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "stream/StreamTestUtil.h"
#include "zn/stream/ZnSP.h"

namespace {

using zn::test::ExpectStreamError;

// Records its own destruction and the order of events around it.
class Tracked : public SPEnabled {
 public:
  explicit Tracked(std::vector<std::string>& events) : m_events(events) {}
  ~Tracked() override {
    m_events.push_back("destroyed");
    if (onDestroy) onDestroy(this);
  }
  std::function<void(Tracked*)> onDestroy;

 private:
  std::vector<std::string>& m_events;
};

void RecordTrigger(void* events) { static_cast<std::vector<std::string>*>(events)->push_back("trigger"); }

TEST(ZnSP, CountsStartAtZeroAndHoldersCountOneEach) {
  std::vector<std::string> events;
  auto* object = new Tracked(events);
  EXPECT_EQ(object->getCount(), 0);
  {
    SPBase first(object);
    EXPECT_EQ(object->getCount(), 1);
    SPBase second(first);
    SPBase third;
    EXPECT_EQ(third.get(), nullptr);
    third = second;
    EXPECT_EQ(third.get(), object);
    EXPECT_EQ(object->getCount(), 3);
    third = object;  // the pointer already held: nothing changes
    third.assign(third);
    EXPECT_EQ(object->getCount(), 3);
    third = nullptr;
    EXPECT_EQ(object->getCount(), 2);
    EXPECT_TRUE(events.empty());
  }
  EXPECT_EQ(events, std::vector<std::string>{"destroyed"});

  // A copy of an object is a new object, and assignment keeps each count.
  Tracked a(events);
  a.incCount();
  a.incCount();
  Tracked b(a);
  EXPECT_EQ(b.getCount(), 0);
  b.incCount();
  static_cast<SPEnabled&>(a) = b;
  EXPECT_EQ(a.getCount(), 2);
  EXPECT_EQ(b.getCount(), 1);
  EXPECT_EQ(a.decCount(), 1);  // both stay above 0: they live on the stack
}

TEST(ZnSP, TriggerFiresOnTheWayToOneAndDestructionAtZero) {
  std::vector<std::string> events;
  auto* object = new Tracked(events);
  object->addLastRefTrigger(&RecordTrigger, &events);
  SPBase owner(object);
  {
    SPBase user(owner);
    SPBase another(owner);
    EXPECT_EQ(object->getCount(), 3);
  }  // 3 -> 2 -> 1: the trigger once
  EXPECT_EQ(events, std::vector<std::string>{"trigger"});
  EXPECT_EQ(object->incCount(), 2);
  EXPECT_EQ(object->decCount(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"trigger", "trigger"}));

  // Replacing the trigger, then removing it.
  std::vector<std::string> other;
  object->addLastRefTrigger(&RecordTrigger, &other);
  object->incCount();
  object->decCount();
  EXPECT_EQ(other, std::vector<std::string>{"trigger"});
  object->addLastRefTrigger(nullptr, nullptr);
  object->incCount();
  object->decCount();
  EXPECT_EQ(other.size(), 1u);
  EXPECT_EQ(events.size(), 2u);

  owner = nullptr;  // 1 -> 0: destroyed, no trigger
  EXPECT_EQ(events, (std::vector<std::string>{"trigger", "trigger", "destroyed"}));
}

TEST(ZnSP, DeadObjectsCannotBeResurrected) {
  std::vector<std::string> events;
  SPEnabled* raw = nullptr;
  {
    auto* object = new Tracked(events);
    object->addLastRefTrigger(&RecordTrigger, &events);
    raw = object;
    SPBase last(object);
    {
      SPBase secondToLast(last);
    }
    EXPECT_EQ(events, std::vector<std::string>{"trigger"});
  }
  EXPECT_EQ(events, (std::vector<std::string>{"trigger", "destroyed"}));

  // `raw` now points at freed memory: taking it must be refused without
  // touching that memory.
  SPBase holder;
  ExpectStreamError([&] { holder.assign(raw); }, "SPBase::assign", "Can't resurrect dead objects.");
  EXPECT_EQ(holder.get(), nullptr);
  ExpectStreamError([&] { SPBase again(raw); }, "SPBase::assign", "Can't resurrect dead objects.");
  ExpectStreamError([&] { holder = raw; }, "SPBase::assign", "Can't resurrect dead objects.");
  EXPECT_EQ(events.size(), 2u);
}

TEST(ZnSP, AnObjectBeingDestroyedIsAlreadyDead) {
  std::vector<std::string> events;
  auto* object = new Tracked(events);
  int countSeen = 0;
  std::vector<std::string> refusals;
  object->onDestroy = [&](Tracked* self) {
    countSeen = self->getCount();
    refusals.push_back(zn::test::StreamErrorText([&] { SPBase resurrect(self); }));
    refusals.push_back(zn::test::StreamErrorText([&] { self->incCount(); }));
    refusals.push_back(zn::test::StreamErrorText([&] { self->decCount(); }));
  };
  { SPBase only(object); }
  EXPECT_EQ(countSeen, -1);
  EXPECT_EQ(refusals, (std::vector<std::string>{"Can't resurrect dead objects.", "Can't resurrect dead objects.",
                                                "SPEnabled object is corrupt (count<=0)."}));
}

TEST(ZnSP, ReleasingAnUnheldObjectIsACorruptCount) {
  std::vector<std::string> events;
  Tracked object(events);
  ExpectStreamError([&] { object.decCount(); }, "SPEnabled::decCount", "SPEnabled object is corrupt (count<=0).");
  EXPECT_EQ(object.getCount(), 0);
  EXPECT_TRUE(events.empty());
}

TEST(ZnSP, AssignTakesTheNewReferenceBeforeReleasingTheOld) {
  std::vector<std::string> events;
  auto* first = new Tracked(events);
  auto* second = new Tracked(events);
  SPBase holder(first);
  // Only `holder` keeps `first` alive: reassigning destroys it, and the
  // destructor sees the new object already counted.
  int secondCountAtDestruction = -2;
  first->onDestroy = [&](Tracked*) { secondCountAtDestruction = second->getCount(); };
  holder = second;
  EXPECT_EQ(secondCountAtDestruction, 1);
  EXPECT_EQ(holder.get(), second);
  EXPECT_EQ(events, std::vector<std::string>{"destroyed"});
}

}  // namespace
