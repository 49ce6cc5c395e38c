/* A library that only carries resources for the file-facts tests. */
int kiv_test_resource_library;
