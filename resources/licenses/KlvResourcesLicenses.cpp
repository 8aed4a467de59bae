// The library holds only the licence-text resources; this unit gives it a home.
namespace klv_resources_licenses {
int anchor = 0;
}
