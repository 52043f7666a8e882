# The README's commands. `make test` is what CI runs.
DEBUG_DIR   := build/debug
RELEASE_DIR := build/release
TSAN_DIR    := build/tsan
RELEASE_TEST_DIR := build/release-test
CLANG_TEST_DIR := build/release-test-clang
# What the unit and oracle tests of the core libraries and kitbinder-cli run (not the desktop
# program, nor Wine, which the debug tree runs).
RELEASE_TEST_TARGETS := platform_test project_test msi_storage_test msi_engine_test \
               msi_oracle_test cabinet_test cabinet_writer_test cabinet_parallel_test \
               package_test cli_test kitbinder-cli templates make_seeds fuzz_replay_compound_file \
               fuzz_replay_database fuzz_replay_project_file
JOBS        ?= $(shell nproc)

.PHONY: test demo bench release release-test release-test-clang debug tsan bootstrap bootstrap-build \
        bootstrap-bench format format-check tidy clean

# What each command needs installed: the programs alone, the benchmarks, or everything.
bootstrap:
	@scripts/bootstrap test
bootstrap-build:
	@scripts/bootstrap build
bootstrap-bench:
	@scripts/bootstrap bench

debug: bootstrap
	@cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKITBINDER_SANITIZE=ON -DKITBINDER_WERROR=ON >/dev/null
	@cmake --build $(DEBUG_DIR) -j $(JOBS)

# The cabinet writer's threads under ThreadSanitizer: a small tree of its own.
tsan: bootstrap
	@cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKITBINDER_TSAN=ON -DKITBINDER_WERROR=ON >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS)

# Formatting is checked first, before anything is built.
format-check: bootstrap
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror || \
	  { echo "make: C++ files above are not formatted; run \`make format\`" >&2; exit 1; }

test: format-check debug tsan
	@ctest --test-dir $(DEBUG_DIR) --output-on-failure -j $(JOBS)
	@ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) -L tsan

# The unit and oracle tests once more as a packager configures the tree: optimised, with the
# compiler's warnings left as warnings (but resources_install, which installs the desktop
# program this tree does not build). CI runs it after `make test`.
release-test: bootstrap
	@cmake -S . -B $(RELEASE_TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(RELEASE_TEST_DIR) -j $(JOBS) --target $(RELEASE_TEST_TARGETS)
	@ctest --test-dir $(RELEASE_TEST_DIR) --output-on-failure -j $(JOBS) -L '^(unit|oracle)$$' \
	  -E '^resources_install$$'

# Everything (programs, tests, desktop program, benchmarks) once more with clang, optimised and
# with warnings as errors, so that what one compiler refuses cannot land; then the unit tests.
release-test-clang: bootstrap
	@CC=clang CXX=clang++ cmake -S . -B $(CLANG_TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DKITBINDER_WERROR=ON -DKITBINDER_BENCH=ON >/dev/null
	@cmake --build $(CLANG_TEST_DIR) -j $(JOBS)
	@ctest --test-dir $(CLANG_TEST_DIR) --output-on-failure -j $(JOBS) -L '^unit$$'

# The programs alone; `make bench` adds the benchmarks to the same tree.
release: bootstrap-build
	@cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKITBINDER_TESTS=OFF -DKITBINDER_BENCH=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

demo: release
	@scripts/demo $(RELEASE_DIR)/bin

bench: bootstrap-bench
	@cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKITBINDER_TESTS=OFF -DKITBINDER_BENCH=ON >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)
	@scripts/bench $(RELEASE_DIR)/bin

# clang-tidy with the checks of .clang-tidy over the sources in src/, in parallel, with the
# debug tree's compile commands (configuring the tree is enough; nothing is built).
tidy: bootstrap
	@cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKITBINDER_SANITIZE=ON -DKITBINDER_WERROR=ON >/dev/null
	@run-clang-tidy -p $(DEBUG_DIR) -j $(JOBS) -quiet '^$(CURDIR)/src/' >$(DEBUG_DIR)/tidy.log 2>&1; \
	  status=$$?; grep -v -e '^clang-tidy' -e 'warnings generated' $(DEBUG_DIR)/tidy.log; exit $$status

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
