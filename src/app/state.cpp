#include "app/state.h"

namespace remote::app {

namespace {

// Text size of the form's inputs, in logical pixels.
constexpr double input_text_size = 14;

}  // namespace

AppState::AppState()
    : form(default_form()),
      inputs{kova::ui::TextInput("Search machines…  ( / )", input_text_size),
             kova::ui::TextInput("My machine", input_text_size),
             kova::ui::TextInput("hostname or IP", input_text_size),
             kova::ui::TextInput("Port", input_text_size),
             kova::ui::TextInput("username", input_text_size),
             kova::ui::TextInput("group (optional)", input_text_size)} {}

profiles::ConnectionFormValues default_form() {
  profiles::ConnectionFormValues form;
  form.port = "22";
  form.auth = profiles::AuthMethod::Password;
  form.kind = profiles::ConnectionKind::Ssh;
  return form;
}

std::string& model_text(AppState& app, FormField field) {
  switch (field) {
    case FormField::Search:
      return app.search_text;
    case FormField::Name:
      return app.form.name;
    case FormField::Host:
      return app.form.host;
    case FormField::Port:
      return app.form.port;
    case FormField::User:
      return app.form.user;
    case FormField::Group:
      return app.form.group;
  }
  return app.search_text;
}

const std::string& model_text(const AppState& app, FormField field) {
  return model_text(const_cast<AppState&>(app), field);
}

ConnectionProfile* find_profile(AppState& app, const ConnectionId& id) {
  for (auto& p : app.profiles)
    if (p.id == id) return &p;
  return nullptr;
}

const ConnectionProfile* find_profile(const AppState& app, const ConnectionId& id) {
  for (const auto& p : app.profiles)
    if (p.id == id) return &p;
  return nullptr;
}

}  // namespace remote::app
