// The view "par-mots" of the design document: every record by its word count, counted with the
// built-in "_count" reduce, so a client's rank is one range query answered from the index.
// Same records as the pages: those whose "mots" is a number.
function (doc) {
  if (typeof doc.mots === 'number' && doc.mots >= 0) {
    emit(doc.mots, null);
  }
}
