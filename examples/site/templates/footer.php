</div>
<div id="footer">
    &copy; <?php echo date('Y'); ?> Corner Shop
</div>
</body>
</html>
