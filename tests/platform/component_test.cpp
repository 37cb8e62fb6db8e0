#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/data_module.h"

namespace {

std::vector<std::string> destroyed;

class TRecorder : public TComponent {
public:
  TRecorder(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
  ~TRecorder() override { destroyed.push_back(Name()); }
};

TEST(ComponentTest, OwnerDestroysWhatItOwnsLastFirst)
{
  destroyed.clear();
  {
    TRecorder owner(nullptr, "owner");
    new TRecorder(&owner, "first");
    auto* second = new TRecorder(&owner, "second");
    new TRecorder(second, "grandchild");
    EXPECT_EQ(2, owner.ComponentCount());
  }
  // A destructor's own body runs before its owned components go.
  EXPECT_EQ((std::vector<std::string>{"owner", "second", "grandchild", "first"}), destroyed);
}

TEST(ComponentTest, DestroyingAComponentTakesItOutOfItsOwner)
{
  destroyed.clear();
  TRecorder owner(nullptr, "owner");
  auto* child = new TRecorder(&owner, "child");
  delete child;
  EXPECT_EQ(0, owner.ComponentCount());
  EXPECT_EQ(nullptr, owner.FindComponent("child"));
}

TEST(ComponentTest, FindsComponentsByNameInAnyCase)
{
  TComponent owner(nullptr);
  auto* timer = new TRecorder(&owner, "TimerSetIP");
  timer->SetTag(42);
  EXPECT_EQ(timer, owner.FindComponent("timersetip"));
  EXPECT_EQ(nullptr, owner.FindComponent(""));
  EXPECT_EQ(42, timer->Tag());
}

class TSampleModule : public TDataModule {
public:
  explicit TSampleModule(TComponent* owner) : TDataModule(owner)
  {
    child = new TRecorder(this, "part");
    OnCreate = [this](TObject* sender) {
      ++creates;
      createdWithChild = sender == this && child->Owner() == this;
    };
  }
  TRecorder* child;
  int creates = 0;
  bool createdWithChild = false;
};

TEST(DataModuleTest, OnCreateRunsOnceAfterConstruction)
{
  TApplication application;
  auto* module = application.CreateForm<TSampleModule>();
  EXPECT_EQ(1, module->creates);
  EXPECT_TRUE(module->createdWithChild);
  EXPECT_EQ(&application, module->Owner());
}

}  // namespace
