#!/usr/bin/env bash
# Succeeds when this kernel can execute 32-bit x86 programs (Wine's 32-bit loader
# is itself one). Some virtual machines' kernels are built without that support.
/usr/lib/wine/wine --version >/dev/null 2>&1
