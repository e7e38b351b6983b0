// Where this copy of the page finds its account service and its update site. Pure functions of
// the page's address, the remembered service and the build's public site host; the loader and the
// account module both inline this file.

// The public site's host name, set by the build (VELLORA_SITE_HOST); empty when there is none.
const SITE_HOST = /*@setting SITE_HOST*/ '';

// The account service's base URL ("/vellora/api" or an absolute one), or '' when this copy knows
// no service. `loc`: { protocol, hostname, pathname }; `stored`: the remembered "velloraApi".
//  - the public site itself, bare or with "www.": its own "/vellora/api";
//  - a page vellora-server serves (anything below "/vellora/" over http or https): that service;
//  - else the remembered service, else the public site's, else none.
function apiBaseFor(loc, stored, siteHost) {
  const host = String((loc && loc.hostname) || '').toLowerCase();
  const web = /^https?:$/.test(String((loc && loc.protocol) || ''));
  if (siteHost && web && (host === siteHost || host === 'www.' + siteHost)) return '/vellora/api';
  if (web && /^\/vellora\//.test(String((loc && loc.pathname) || ''))) return '/vellora/api';
  const s = typeof stored === 'string' ? stored.trim().replace(/\/+$/, '') : '';
  if (/^https?:\/\/[^/?#]+(\/[^?#]*)?$/i.test(s)) return s;
  return siteHost ? 'https://' + siteHost + '/vellora/api' : '';
}

// The update site ("version.json" and "app.html") that goes with a service base: the folder the
// service's "api" lives in. '' when there is no service or the base does not end in "/api".
function updateBaseFor(apiBase) {
  return /\/api$/.test(apiBase || '') ? apiBase.slice(0, -3) : '';
}

// The value of ?api= in a query string, or null when there is none.
function apiParam(search) {
  const m = /[?&]api=([^&#]*)/.exec(String(search || ''));
  if (!m) return null;
  try {
    return decodeURIComponent(m[1].replace(/\+/g, ' '));
  } catch (e) {
    return null;
  }
}

// @node-only
export { SITE_HOST, apiBaseFor, updateBaseFor, apiParam };
