# The two commands: `make demo` and `make test`. Each installs what is
# missing, configures, builds and runs.
PRESET ?= default
JOBS   ?= $(shell echo $$(( $$(nproc) * 4 )))
BUILD  := build/$(PRESET)

.PHONY: all deps bench-deps build test demo bench asan tsan clean install package serve-deps test-serve arm64 test-arm64

all: build

deps:
	@sh scripts/install-deps.sh

bench-deps:
	@sh scripts/install-deps.sh bench

build: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# Through the test preset, so a sanitizer build runs with its suppressions.
test: build
	ctest --preset $(PRESET) --output-on-failure -j $(JOBS) --timeout 300

serve-deps:
	@sh scripts/install-deps.sh serve

# pelnik-serve and its tests (RTSP, HTTP, browser), loopback only.
test-serve: serve-deps
	@test -f build/default/build.ninja || cmake --preset default
	cmake --preset default -DPELNIK_BUILD_SERVE=ON >/dev/null
	cmake --build build/default --target pelnik-serve gstpelnik pelnik-virtcam
	ctest --test-dir build/default -L serve --output-on-failure --timeout 300

# arm64 cross build (Debian's cross toolchain, multiarch -dev packages); the
# portable tests run under qemu-aarch64.
arm64:
	@sh scripts/install-deps.sh arm64
	@test -f build/arm64/build.ninja || cmake --preset arm64
	cmake --build --preset arm64

test-arm64: arm64
	ctest --test-dir build/arm64 -L portable --output-on-failure --timeout 600

# The demo builds what it runs: the library and the capture tool (which
# embeds the virtual camera); the tests are built by `make test`.
demo: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) --target pelnik-capture
	@sh scripts/demo.sh $(BUILD)

bench: bench-deps
	@test -f build/default/build.ninja || cmake --preset default
	cmake --build --preset default
	@sh scripts/bench.sh build/default

asan:
	$(MAKE) test PRESET=asan-ubsan

tsan:
	$(MAKE) test PRESET=tsan

install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# Debian packages for /usr, from a tree of their own (build/package).
package: deps
	@test -f build/package/build.ninja || cmake -S . -B build/package -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DPELNIK_BUILD_TESTS=OFF -DPELNIK_BUILD_BENCH=OFF
	cmake --build build/package
	cd build/package && cpack -G DEB

clean:
	rm -rf build
