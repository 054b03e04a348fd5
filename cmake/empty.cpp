// Placeholder translation unit for a subsystem that has no sources yet.
namespace {
[[maybe_unused]] const int placeholder = 0;
}
