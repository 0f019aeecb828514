// Removed once the application sources exist.
namespace {
[[maybe_unused]] int placeholder;
}
