<?php
// Front page of the sample shop: lists the products of the catalogue.
require_once 'config.php';
require_once 'lib/db.php';
require_once 'lib/html.php';
require_once 'lib/catalogue.php';

$connection = db_connect($config['db']);
$products = catalogue_products($connection, 10);

render_header('Welcome to ' . $config['site_name']);
?>
<h1><?php echo html_escape($config['site_name']); ?></h1>
<p>Our latest products:</p>
<?php
echo render_product_list($products);
render_footer();
db_close($connection);
