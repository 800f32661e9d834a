# Every fuzz target's harness linked with replay_main.cpp instead of
# libFuzzer (replay_<target>): the inputs that once found a fault
# (fuzz/regressions/<target>/) are replayed by every build's tests, run as
# the SP of a fresh chassis, and a corpus can be replayed for coverage.
set(ARKB_FUZZ_DIR ${PROJECT_SOURCE_DIR}/fuzz)
foreach(t manr instrec netconf cmm_reply cmm_request sim_state)
  add_executable(replay_${t} ${ARKB_FUZZ_DIR}/fuzz_${t}.cpp ${ARKB_FUZZ_DIR}/replay_main.cpp)
  target_link_libraries(replay_${t} PRIVATE arkblade_seam arkblade_flags)
  file(GLOB inputs ${ARKB_FUZZ_DIR}/regressions/${t}/*)
  if(inputs)
    add_test(NAME fuzz_regressions_${t} COMMAND ${arkb_test_runner} $<TARGET_FILE:replay_${t}> ${inputs})
    set_tests_properties(fuzz_regressions_${t} PROPERTIES TIMEOUT ${ARKB_TEST_TIMEOUT})
  endif()
endforeach()
foreach(t manr instrec netconf cmm_reply)  # the in-memory platform
  target_sources(replay_${t} PRIVATE ${ARKB_FUZZ_DIR}/fuzz_sp.cpp ${ARKB_FUZZ_DIR}/mem_platform.cpp)
  target_link_libraries(replay_${t} PRIVATE arkblade arksim_core ${ARKSIM_PLATFORM_LIBS})
endforeach()
target_sources(replay_sim_state PRIVATE ${ARKB_FUZZ_DIR}/fuzz_sp.cpp)
target_link_libraries(replay_sim_state PRIVATE arksim_core ${ARKSIM_PLATFORM_LIBS})
target_link_libraries(replay_cmm_request PRIVATE arksim_cmm)
