#!/bin/sh
# Stands in for a tnef that crashes: it aborts itself.
kill -ABRT $$
