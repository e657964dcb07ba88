"""A test fixture that makes records and arrays and frees them afterwards,
and checks exceptions by class and exact message."""
import unittest

import _qm_python as qm


class MadeRecords(unittest.TestCase):
    # True: every record a test made must still be deletable at the end (none
    # was given away); False: records a test disowned are left alone.
    delete_all = False

    def setUp(self):
        self.made = []

    def tearDown(self):
        failures = []
        for deleter, proxy in reversed(self.made):
            if not (self.delete_all or proxy.own()):
                continue
            try:
                deleter(proxy)
            except ValueError as e:
                failures.append(str(e))
        self.assertEqual(failures, [])

    def new(self, family, *args):
        proxy = getattr(qm, 'new_' + family)(*args)
        self.made.append((getattr(qm, 'delete_' + family), proxy))
        return proxy

    def raises(self, exception, message, function, *args):
        with self.assertRaises(exception) as caught:
            function(*args)
        self.assertEqual(str(caught.exception), message)
