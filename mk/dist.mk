# make dist:       the Octave package, dist/ftdiattach-<version>.tar.gz
# make dist-check: the same, then installs it into a scratch Octave home,
#                  checks it from another folder and removes it (package/)
DIST ?= dist

.PHONY: dist dist-check
dist: deps
	package/make-dist $(DIST)

dist-check: deps
	package/install-check $(DIST)
