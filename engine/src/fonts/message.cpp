#include "fonts/message.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "fonts/font.h"

namespace korvu {
namespace fonts {

Message::Message() : font(nullptr), remainingTime(0.0f) {}

Message::Message(const std::string& text_, float time) : font(nullptr), text(text_), remainingTime(time) {}

void Message::perform(float dt) { remainingTime -= dt; }

void Message::draw(Rect r, JustificationHorizontal h, JustificationVertical v) {
  if (font) font->print(r, h, v, text.c_str());
}

BlinkMessage::BlinkMessage() : phaseTimer(0.0f), visible(true), onTime(0.0f), offTime(0.0f) {}

BlinkMessage::BlinkMessage(const std::string& text_, float time, float onTime_, float offTime_)
    : Message(text_, time),
      phaseTimer(onTime_),
      visible(true),
      onTime(onTime_),
      offTime(offTime_ >= 0.0f ? offTime_ : onTime_) {}

void BlinkMessage::perform(float dt) {
  Message::perform(dt);
  phaseTimer -= dt;
  const float on = std::max(onTime, 0.0f);
  const float off = std::max(offTime, 0.0f);
  const float cycle = on + off;
  if (!(cycle > 0.0f)) return;  // no phase lasts: nothing to blink (and no end to the loop below)
  // Whole cycles flip twice and change nothing; only the rest is walked.
  if (phaseTimer < -cycle) phaseTimer = std::fmod(phaseTimer, cycle);
  while (phaseTimer < 0.0f) {
    visible = !visible;
    phaseTimer += visible ? on : off;
  }
}

void BlinkMessage::draw(Rect r, JustificationHorizontal h, JustificationVertical v) {
  if (visible) Message::draw(r, h, v);
}

Messages::Messages() : font(nullptr), keep(false) {}

Messages::~Messages() { clear(); }

void Messages::operator+=(Message* message) {
  if (!keep) clear();
  messages.push_back(message);
  if (!message->font) message->font = font;
}

void Messages::perform(float dt) {
  for (Message* message : messages) message->perform(dt);
  purge();
}

void Messages::draw() {
  for (Message* message : messages) {
    glPushMatrix();
    message->draw(rectangle, JUSTIFY_HCENTER, JUSTIFY_VCENTER);
    glPopMatrix();
  }
}

void Messages::clear() {
  for (Message* message : messages) delete message;
  messages.clear();
}

void Messages::purge() {
  for (auto it = messages.begin(); it != messages.end();) {
    if ((*it)->remainingTime <= 0.0f) {
      delete *it;
      it = messages.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace fonts
}  // namespace korvu
