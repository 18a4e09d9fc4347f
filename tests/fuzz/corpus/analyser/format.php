<?php
// Grüße, ✓ café
function escape_html($s)
{
	return htmlspecialchars($s, ENT_QUOTES);
}

function format_post($post) {
	$t = "{$post['title']}";
	return "<p>" . escape_html($t) . "</p>";
}

if (function_exists('escape_html')) {
	$ok = true;
}
