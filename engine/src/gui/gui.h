// The root of the menu GUI: a component tree read from one description file
// (its images, its named styles and its widgets) that is also the trigger
// queue's event evaluator. It moves a cursor of its own, keeps the focus on
// the component under the pointer, hands keys to the focus holder and mouse
// buttons to the capture (or focus) holder, and passes everything it does
// not take to its fallback evaluator. It owns its styles and its cursor; the
// image bank, the font bank, the trigger registry and the fallback are
// the caller's.
#pragma once

#include <SDL.h>

#include <string>

#include "bank.h"
#include "controls.h"
#include "gui/component.h"

namespace korvu {

class Image;
class ImageBank;
class ImageSprite;
namespace fonts { class Font; }

namespace gui {

class Style;

typedef MappedBank<fonts::Font> FontBank;
typedef MappedBank<Style> StyleBank;

class GUI : public Component, public Evaluator {
 public:
  FontBank* fonts;     // not owned; styles take their fonts from it
  ImageBank* images;   // not owned; the "images" element loads into it
  Triggers* triggers;  // not owned; widgets take their triggers from it
  StyleBank* styles;   // owned
  ImageSprite* cursor;  // owned; null until a "cursor" attribute is read
  Component* capture;  // the mouse-capture holder, or null
  Component* focus;    // the focus holder, or null
  Evaluator* fallback;  // not owned; gets every event the GUI does not take
  // While false every event goes to the fallback untouched.
  bool active;
  // The description file's directory with its "/", or empty; image file
  // names of the "images" element are relative to it.
  std::string dir;
  // Key repeat of text fields, in milliseconds.
  float repeatDelay;
  float repeatInterval;

  // An empty, invisible root that holds the focus itself.
  GUI();
  // Reads the description file. A root element not named "GUI" gives an
  // empty GUI; the XML reader's messages leave the constructor.
  GUI(const std::string& file, ImageBank* images, FontBank* fonts, Triggers* triggers);
  ~GUI() override;

  // The root attributes, the "images" and style elements (widgets are read
  // afterwards by getFromNode).
  void getSelfFromNode(const xml::Node* node, GUI* gui) override;
  // Draws the tree with alpha blending and the cursor on top; nothing while
  // the GUI is not visible.
  void draw() override;
  // The cursor.
  void drawSelfPost() override;

  bool evaluate(const SDL_Event& event, ControlQueue* queue) override;
  // The fallback's per-frame step and flush, so that its held bindings keep
  // repeating while the GUI is the queue's evaluator.
  void perform(double dt, ControlQueue* queue) override;
  void flush() override;
  // The tree's per-frame step: perform(queue, dt).
  using Component::perform;

  // Clears the focus and capture records when they lie in the subtree.
  void forget(const Component* subtree);

  // Lookups of the names a description gives; null, with the name logged,
  // when nothing has that name.
  Style* findStyle(const std::string& name) const;
  Image* findImage(const std::string& name) const;
  fonts::Font* findFont(const std::string& name) const;
  Trigger* findTrigger(const std::string& name) const;

 protected:
  // Loads every image of the image bank (after an "images" element); an
  // image that cannot be loaded is logged and left without texture.
  virtual void refreshImages();

 private:
  void readStyleElement(const xml::Node* element, GUI* gui);
  // Declares the images of an "images" element in the image bank.
  void readImages(const xml::Node* element);
  // Moves the hover (and so the focus) to what lies under the cursor.
  void hover(ControlQueue* queue);
  // Whoever gets keys: the focus holder while it can be seen (a hidden one
  // gives way to what lies under the cursor).
  Component* focusHolder(ControlQueue* queue);
  // Whoever gets mouse buttons: the capture holder, else the focus holder.
  Component* target(ControlQueue* queue);
  bool pass(const SDL_Event& event, ControlQueue* queue);
};

// Reference attributes of description elements: a present attribute sets the
// field to what its name finds (null, with the name logged, when nothing
// does); an absent one leaves the field as it is. The GUI may be null.
void readImage(const xml::Node* node, const std::string& attribute, const GUI* gui, Image*& field);
void readFont(const xml::Node* node, const std::string& attribute, const GUI* gui, fonts::Font*& field);
void readTrigger(const xml::Node* node, const std::string& attribute, const GUI* gui, Trigger*& field);

}  // namespace gui
}  // namespace korvu
