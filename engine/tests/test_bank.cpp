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

TEST_F(Bank, AddFindRemove) {
  korvu::MappedBank<Leaving> bank;
  EXPECT_TRUE(bank.name.empty());
  EXPECT_EQ(bank.bank, nullptr);
  Leaving* e = new Leaving("x");
  bank += e;
  ASSERT_NE(bank.find("x"), bank.end());
  EXPECT_EQ(bank.find("x")->second, e);
  EXPECT_EQ(e->bank, &bank);

  bank -= e;
  EXPECT_EQ(bank.find("x"), bank.end());
  EXPECT_EQ(e->bank, nullptr);
  EXPECT_TRUE(destroyed.empty());
  delete e;  // back in the caller's hands
  EXPECT_TRUE(bank.empty());
}

TEST_F(Bank, TakenNameDeletesTheOldElementOnce) {
  replaceUnderTakenName<Leaving>();
  destroyed.clear();
  replaceUnderTakenName<Staying>();
}

TEST_F(Bank, AddingTheStoredElementAgainKeepsIt) {
  CountingBank bank;
  Leaving* e = new Leaving("x");
  bank += e;
  bank += e;
  EXPECT_TRUE(destroyed.empty());
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("x")->second, e);
  EXPECT_EQ(bank.removals, 1);  // it left and re-entered through the slot
}

TEST_F(Bank, AddingMovesBetweenBanks) {
  korvu::MappedBank<Leaving> one, two;
  Leaving* e = new Leaving("x");
  one += e;
  two += e;
  EXPECT_TRUE(one.empty());
  EXPECT_EQ(two.find("x")->second, e);
  EXPECT_EQ(e->bank, &two);
  EXPECT_TRUE(destroyed.empty());
}

TEST_F(Bank, RemovingAStrangerKeepsTheStoredElement) {
  korvu::MappedBank<Leaving> bank;
  Leaving* stored = new Leaving("x");
  bank += stored;
  Leaving stranger("x");
  bank -= &stranger;
  EXPECT_EQ(bank.find("x")->second, stored);
  EXPECT_EQ(stored->bank, &bank);
  EXPECT_EQ(stranger.bank, nullptr);
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
}

TEST_F(Bank, DestructionDeletesEverything) {
  {
    korvu::MappedBank<Staying> bank;
    bank += new Staying("q");
    bank += new Staying("p");
  }
  EXPECT_EQ(destroyed, (std::vector<std::string>{"p", "q"}));
  destroyed.clear();
  { korvu::MappedBank<Staying> empty; }
  EXPECT_TRUE(destroyed.empty());
}

TEST_F(Bank, DeletingAnElementDirectlyTakesItOut) {
  korvu::MappedBank<Leaving> bank;
  Leaving* e = new Leaving("x");
  bank += e;
  bank += new Leaving("y");
  delete e;
  EXPECT_EQ(bank.size(), 1u);
  EXPECT_EQ(bank.find("x"), bank.end());
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
