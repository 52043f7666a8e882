# The README's commands. `make test` is what CI runs.
DEBUG_DIR   := build/debug
RELEASE_DIR := build/release
TSAN_DIR    := build/tsan
JOBS        ?= $(shell nproc)

.PHONY: test demo bench release debug tsan bootstrap format clean

bootstrap:
	@scripts/bootstrap

debug: bootstrap
	@cmake -S . -B $(DEBUG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKITBINDER_SANITIZE=ON -DKITBINDER_WERROR=ON >/dev/null
	@cmake --build $(DEBUG_DIR) -j $(JOBS)

# The cabinet writer's threads under ThreadSanitizer: a small tree of its own.
tsan: bootstrap
	@cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKITBINDER_TSAN=ON -DKITBINDER_WERROR=ON >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS)

test: debug tsan
	@ctest --test-dir $(DEBUG_DIR) --output-on-failure -j $(JOBS)
	@ctest --test-dir $(TSAN_DIR) --output-on-failure -j $(JOBS) -L tsan

release: bootstrap
	@cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKITBINDER_TESTS=OFF -DKITBINDER_BENCH=ON >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

demo: release
	@scripts/demo $(RELEASE_DIR)/bin

bench: release
	@scripts/bench $(RELEASE_DIR)/bin

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
