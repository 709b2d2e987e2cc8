// Every signed-in user may create, change and delete their own record only:
// "classement-" + their user name, of type "OvraClassement", with a pseudo of at most
// 40 characters, "mots" a non-negative integer and "majLe" a date. Admins are not checked.
function (newDoc, oldDoc, userCtx, secObj) {
  if (userCtx.roles.indexOf('_admin') !== -1) {
    return;
  }
  if (newDoc._id.indexOf('_design/') === 0) {
    throw({forbidden: 'Design documents are for the administrators.'});
  }
  if (!userCtx.name) {
    throw({unauthorized: 'Sign in to take part in the leaderboard.'});
  }
  if (newDoc._id !== 'classement-' + userCtx.name) {
    throw({forbidden: 'Only your own record (classement-' + userCtx.name + ') may be written.'});
  }
  if (newDoc._deleted === true) {
    return;
  }
  var allowed = {type: 1, pseudo: 1, mots: 1, majLe: 1};
  for (var key in newDoc) {
    if (key.charAt(0) !== '_' && !allowed.hasOwnProperty(key)) {
      throw({forbidden: 'Unknown field: ' + key});
    }
  }
  if (newDoc.type !== 'OvraClassement') {
    throw({forbidden: 'type must be "OvraClassement".'});
  }
  if (typeof newDoc.pseudo !== 'string' || newDoc.pseudo.length > 40) {
    throw({forbidden: 'pseudo must be a text of at most 40 characters.'});
  }
  if (typeof newDoc.mots !== 'number' || !(newDoc.mots >= 0) || Math.floor(newDoc.mots) !== newDoc.mots ||
      newDoc.mots > 9007199254740991) {
    throw({forbidden: 'mots must be a non-negative integer.'});
  }
  if (typeof newDoc.majLe !== 'string' || !/^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z$/.test(newDoc.majLe)) {
    throw({forbidden: 'majLe must be a UTC date (2026-12-10T16:00:00.000Z).'});
  }
}
