// The library holds only the ":/standardDefaults.json" resource; this unit gives it a home.
namespace klv_resources_defaults {
int anchor = 0;
}
