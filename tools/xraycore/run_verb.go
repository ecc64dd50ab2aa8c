package main

// The service starts its core as `xray.exe run -config FILE`, as xray reads
// its command line. The v4 core built here stops reading flags at the first
// bare word, so "run" would hide -config and leave it waiting on standard
// input; dropping a leading "run" before the flags are parsed makes it read
// the same command line.

import "os"

func init() {
	if len(os.Args) > 1 && os.Args[1] == "run" {
		os.Args = append(os.Args[:1], os.Args[2:]...)
	}
}
