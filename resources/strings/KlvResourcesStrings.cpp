// The library holds only the ":/Localizable.json" resource; this unit gives it a home.
namespace klv_resources_strings {
int anchor = 0;
}
