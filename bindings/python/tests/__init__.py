"""Run by ctest, or from bindings/python with ZORVAT_LIBRARY and ZORVAT_SERVER set:
``python -m unittest discover -s tests -t .``"""
