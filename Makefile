# The two commands of the README:
#   make run   installs what is missing, builds, and plays the bundled demo movie
#   make test  the same set-up, then every test (optimised, ASan+UBSan, TSan, fuzzers)

PRESETS_TEST := default asan tsan
FUZZ_SECONDS ?= 45

.PHONY: run test deps build build-% test-% fuzz package check-package format clean

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

test: deps $(addprefix test-,$(PRESETS_TEST)) fuzz check-package

fuzz: build-fuzz
	@scripts/run-fuzzers build/fuzz $(FUZZ_SECONDS)

# The Debian package, built as packagers build: a plain Release configuration, no preset.
package: deps
	@cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DLUNAVUE_TESTS=OFF >/dev/null
	@cmake --build build/package -j2
	@cd build/package && cpack >/dev/null
	@cp build/package/lunavue_*_amd64.deb .
	@ls lunavue_*_amd64.deb

check-package: package
	@scripts/check-package

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
