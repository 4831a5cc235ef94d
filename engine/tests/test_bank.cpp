#include <memory>
#include <string>
#include <vector>

#include "bank.h"
#include "testsupport.h"

namespace {

// Remembers the names of destroyed elements, in order.
std::vector<std::string> destroyed;

// An element that leaves its bank when it is destroyed, as most do.
struct Leaving {
  std::string name;
  korvu::MappedBank<Leaving>* bank = nullptr;
  explicit Leaving(const std::string& n) : name(n) {}
  virtual ~Leaving() {
    destroyed.push_back(name);
    if (bank) *bank -= this;
  }
};

// An element whose destructor does not touch its bank.
struct Staying {
  std::string name;
  korvu::MappedBank<Staying>* bank = nullptr;
  explicit Staying(const std::string& n) : name(n) {}
  ~Staying() { destroyed.push_back(name); }
};

// Counts the calls that reach the removal slot.
struct CountingBank : korvu::MappedBank<Leaving> {
  int removals = 0;
  void operator-=(Leaving* e) override {
    ++removals;
    korvu::MappedBank<Leaving>::operator-=(e);
  }
};

class Bank : public ::testing::Test {
 protected:
  void SetUp() override { destroyed.clear(); }
};

template <class T>
void replaceUnderTakenName() {
  korvu::MappedBank<T> bank;
  T* first = new T("a");
  T* second = new T("a");
  bank += first;
  bank += second;
  EXPECT_EQ(destroyed, std::vector<std::string>{"a"});
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("a")->second, second);
  EXPECT_EQ(second->bank, &bank);
}

}  // namespace

TEST_F(Bank, RemovingHandsTheElementBack) {
  korvu::MappedBank<Leaving> bank;
  Leaving* e = new Leaving("x");
  bank += e;
  EXPECT_EQ(e->bank, &bank);
  bank -= e;
  EXPECT_EQ(bank.find("x"), bank.end());
  EXPECT_EQ(e->bank, nullptr);
  EXPECT_TRUE(destroyed.empty());
  delete e;
  EXPECT_TRUE(bank.empty());

  // A stranger that merely shares a name does not take the stored one out.
  Leaving* stored = new Leaving("y");
  bank += stored;
  Leaving stranger("y");
  bank -= &stranger;
  EXPECT_EQ(bank.find("y")->second, stored);
  EXPECT_EQ(stored->bank, &bank);
}

TEST_F(Bank, TakenNameDeletesTheOldElementOnce) {
  replaceUnderTakenName<Leaving>();
  destroyed.clear();
  replaceUnderTakenName<Staying>();
}

TEST_F(Bank, AddingAgainKeepsAndAddingElsewhereMoves) {
  CountingBank one, two;
  Leaving* e = new Leaving("x");
  one += e;
  one += e;  // leaves and re-enters through the slot, never deleted
  EXPECT_EQ(one.removals, 1);
  EXPECT_EQ(one.size(), 1u);
  two += e;
  EXPECT_TRUE(one.empty());
  EXPECT_EQ(two.find("x")->second, e);
  EXPECT_EQ(e->bank, &two);
  EXPECT_TRUE(destroyed.empty());
  delete e;  // an element deleted directly leaves its bank
  EXPECT_TRUE(two.empty());
}

TEST_F(Bank, ClearDeletesInNameOrderThroughTheSlot) {
  CountingBank bank;
  for (const char* n : {"b", "c", "a"}) bank += new Leaving(n);
  bank["missing"];  // a subscript lookup leaves an empty entry
  EXPECT_EQ(bank.size(), 4u);
  bank.clear();
  EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(bank.empty());
  EXPECT_EQ(bank.removals, 3);

  bank += new Leaving("again");
  EXPECT_EQ(bank.size(), 1u);
  destroyed.clear();
  {
    korvu::MappedBank<Staying> doomed;
    doomed += new Staying("q");
    doomed += new Staying("p");
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"p", "q"}));
}

TEST_F(Bank, ElementRenamedWhileStoredIsStillDeletedByClear) {
  korvu::MappedBank<Staying> bank;
  Staying* e = new Staying("old");
  bank += e;
  e->name = "new";  // misuse, but clear must still end and free it
  bank.clear();
  EXPECT_TRUE(bank.empty());
  EXPECT_EQ(destroyed, std::vector<std::string>{"new"});
}

TEST_F(Bank, BankHeldByAnotherBankLeavesItWhenDestroyed) {
  korvu::MappedBank<korvu::MappedBank<Leaving>> holder;
  auto* inner = new korvu::MappedBank<Leaving>();
  inner->name = "inner";
  *inner += new Leaving("e");
  holder += inner;
  EXPECT_EQ(inner->bank, &holder);
  delete inner;
  EXPECT_TRUE(holder.empty());
  EXPECT_EQ(destroyed, std::vector<std::string>{"e"});

  auto* second = new korvu::MappedBank<Leaving>();
  second->name = "second";
  *second += new Leaving("f");
  holder += second;
  holder.clear();
  EXPECT_EQ(destroyed, (std::vector<std::string>{"e", "f"}));
}
