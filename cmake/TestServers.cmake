# The loopback test servers of tests/servers, for tests in any folder.
#
# A test that talks to them requires the fixture and reads the env file
# (KEY=VALUE lines: ports, document roots, CA file, pids) named by the
# environment variable BREVANTO_SERVERS_ENV:
#
#   include(TestServers)
#   gtest_discover_tests(my_tests PROPERTIES LABELS integration
#     FIXTURES_REQUIRED ${BREVANTO_SERVERS_FIXTURE}
#     ENVIRONMENT "BREVANTO_SERVERS_ENV=${BREVANTO_SERVERS_ENV}")
set(BREVANTO_SERVERS_FIXTURE test_servers)
set(BREVANTO_SERVERS_ENV ${CMAKE_BINARY_DIR}/tests/servers/servers.env)
