<?php
// One product page: product.php?slug=red-mug
require_once 'config.php';
require_once 'lib/db.php';
require_once 'lib/html.php';
require_once 'lib/catalogue.php';

$connection = db_connect($config['db']);
$slug = isset($_GET['slug']) ? $_GET['slug'] : '';
$product = catalogue_find($connection, $slug);

if ($product === null) {
    header('HTTP/1.0 404 Not Found');
    render_header('Not found');
    echo '<p>No such product.</p>';
} else {
    render_header($product['name']);
    echo render_product($product, $config['currency']);
}
render_footer();
db_close($connection);
