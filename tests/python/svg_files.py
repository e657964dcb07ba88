"""Plots as the tests read them: the SVG a writer makes, parsed, and its texts."""
import os
import shutil
import tempfile
import xml.dom.minidom


def texts(doc):
    """The text of every <text> element of `doc`, in document order."""
    return [t.firstChild.data for t in doc.getElementsByTagName('text') if t.firstChild]


def written(write, result, *args):
    """(document, texts) of what `write(result, path, *args)` writes to a
    fresh folder, which goes afterwards."""
    folder = tempfile.mkdtemp()
    try:
        path = os.path.join(folder, 'plot.svg')
        write(result, path, *args)
        doc = xml.dom.minidom.parse(path)
    finally:
        shutil.rmtree(folder)
    return doc, texts(doc)
