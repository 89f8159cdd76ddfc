"""unittest suite of the zorvat package; run by ctest, or with
``python -m unittest discover -s tests -t .`` from bindings/python with
ZORVAT_LIBRARY (and ZORVAT_SERVER for the server tests) set."""
