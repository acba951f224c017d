# The two commands of the README:
#   make run   installs what is missing, builds, and plays the bundled demo movie
#   make test  the same set-up, then every test (optimised, ASan+UBSan, TSan, fuzzers)

PRESETS_TEST := default asan tsan
FUZZ_SECONDS ?= 60

.PHONY: run test deps build build-% test-% fuzz format clean

deps:
	@scripts/install-deps

build: deps build-default

build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

run: build
	@scripts/run-demo build/default

test-%: build-%
	@ctest --preset $*

test: deps $(addprefix test-,$(PRESETS_TEST)) fuzz

fuzz: build-fuzz
	@scripts/run-fuzzers build/fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
