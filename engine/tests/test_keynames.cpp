// The key-name table, checked in both directions against a list written out
// by hand.
#include <gtest/gtest.h>

#include <SDL.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "keynames.h"

namespace {

std::vector<std::pair<int, std::string>> expectedNames() {
  std::vector<std::pair<int, std::string>> names;
  // Printable keys: the name is the character whose code is the key code.
  const std::string printable = "!\"#$&'()*+,-./0123456789:;<=>?@[\\]^_`abcdefghijklmnopqrstuvwxyz";
  for (char c : printable) names.emplace_back(static_cast<unsigned char>(c), std::string(1, c));
  const std::vector<std::pair<int, std::string>> others = {
      {8, "backspace"},   {9, "tab"},         {12, "clear"},      {13, "return"},     {19, "pause"},
      {27, "esc"},        {32, "space"},      {127, "del"},       {256, "pad_0"},     {257, "pad_1"},
      {258, "pad_2"},     {259, "pad_3"},     {260, "pad_4"},     {261, "pad_5"},     {262, "pad_6"},
      {263, "pad_7"},     {264, "pad_8"},     {265, "pad_9"},     {266, "pad_."},     {267, "pad_/"},
      {268, "pad_*"},     {269, "pad_-"},     {270, "pad_+"},     {271, "enter"},     {272, "pad_="},
      {273, "up"},        {274, "down"},      {275, "right"},     {276, "left"},      {277, "ins"},
      {278, "home"},      {279, "end"},       {280, "pgup"},      {281, "pgdn"},      {282, "f1"},
      {283, "f2"},        {284, "f3"},        {285, "f4"},        {286, "f5"},        {287, "f6"},
      {288, "f7"},        {289, "f8"},        {290, "f9"},        {291, "f10"},       {292, "f11"},
      {293, "f12"},       {294, "f13"},       {295, "f14"},       {296, "f15"},       {300, "numlock"},
      {301, "capslock"},  {302, "scrollock"}, {303, "rshift"},    {304, "lshift"},    {305, "rctrl"},
      {306, "lctrl"},     {307, "ralt"},      {308, "lalt"},      {309, "rmeta"},     {310, "lmeta"},
      {311, "lwin"},      {312, "rwin"},      {313, "mode"},      {315, "help"},      {316, "printscreen"},
      {317, "sysrq"},     {318, "break"},     {319, "menu"},      {320, "power"},     {321, "euro"},
  };
  names.insert(names.end(), others.begin(), others.end());
  return names;
}

}  // namespace

TEST(KeyNames, TableHoldsExactlyTheExpectedNamesBothWays) {
  const auto expected = expectedNames();
  ASSERT_EQ(expected.size(), 133u);
  const auto& table = korvu::getKeyNameMap();
  EXPECT_EQ(table.size(), 133u);
  EXPECT_EQ(&table, &korvu::getKeyNameMap());  // one table, filled once
  EXPECT_EQ(korvu::getKeyNameMap().size(), 133u);

  std::set<std::string> seen;
  for (const auto& entry : expected) {
    const SDLKey key = static_cast<SDLKey>(entry.first);
    EXPECT_EQ(korvu::getKeyName(key), entry.second) << "code " << entry.first;
    SDLKey found = SDLK_UNKNOWN;
    EXPECT_TRUE(korvu::getKeyByName(entry.second, found)) << entry.second;
    EXPECT_EQ(found, key) << entry.second;
    EXPECT_TRUE(seen.insert(entry.second).second) << "name used twice: " << entry.second;
  }
}

TEST(KeyNames, KeysWithoutANameAndNamesWithoutAKey) {
  std::vector<int> unnamed = {SDLK_UNKNOWN, SDLK_COMPOSE, SDLK_UNDO, 37, 124, 126};
  for (int code = SDLK_WORLD_0; code <= SDLK_WORLD_95; ++code) unnamed.push_back(code);
  for (int code = 65; code <= 90; ++code) unnamed.push_back(code);
  for (int code : unnamed) EXPECT_EQ(korvu::getKeyName(static_cast<SDLKey>(code)), "") << "code " << code;

  SDLKey key = SDLK_a;
  for (const char* text : {"F1", "Esc", "", " a", "a ", "pad_", "f16", "escape", "ctrl"}) {
    EXPECT_FALSE(korvu::getKeyByName(text, key)) << '"' << text << '"';
    EXPECT_EQ(key, SDLK_a);  // left alone
  }
  ASSERT_TRUE(korvu::getKeyByName("f1", key));
  EXPECT_EQ(key, SDLK_F1);
  ASSERT_TRUE(korvu::getKeyByName("enter", key));
  EXPECT_EQ(key, SDLK_KP_ENTER);
  ASSERT_TRUE(korvu::getKeyByName("return", key));
  EXPECT_EQ(key, SDLK_RETURN);
}
